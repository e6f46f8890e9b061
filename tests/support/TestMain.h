// What every test program's main runs: GoogleTest on Qt's offscreen platform,
// with temporary desktop folders, in the application that makeApplication
// creates (not created when the tests are only listed).
#pragma once

#include <QApplication>
#include <functional>
#include <memory>

int RunTestProgram(
    int argc, char** argv,
    const std::function<std::unique_ptr<QApplication>(int&, char**)>& makeApplication);
