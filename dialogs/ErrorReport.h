// How errors reach the user. An error that escapes an event handler is shown in
// a message box and the program goes on; an error that escapes a copying step
// ends the program with the fatal error report.
#pragma once

#include <exception>
#include <functional>
#include <string>

// The class name that the reports give for an error ("EInOutError", "Exception").
std::string ErrorClassName(const std::exception& error);

// Shows the error's text in a message box titled with the application title.
void ShowException(const std::exception& error);

// The text of the fatal error report: "Exception %s in module %s at %p.\n%s%s"
// with the class name, "Setup", the address and the message, a full stop added
// when the message does not end in one.
std::string FatalErrorText(const std::exception& error, const void* address);

// Shows "Application Error" with FatalErrorText and ends the program with exit
// code 1. Call on the user-interface thread, after closing what must be closed.
[[noreturn]] void FatalErrorReport(const std::exception& error, const void* address = nullptr);

// Replaces what FatalErrorReport does after its clean-ups (tests): the handler
// receives the title and the text; the program still ends unless it throws.
void SetFatalErrorHandler(std::function<void(const std::string& title, const std::string& text)>);
