// The signals that end a session (SIGINT, SIGTERM, SIGHUP) turned into bytes on
// a pipe, the self-pipe way: the handler only writes the signal's number, and
// the program reads it where it can act on it (between copy steps, or through a
// socket notifier in the event loop).
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

class SignalPipe {
  public:
    // Catches the signals until the object goes; then their earlier handling is back.
    explicit SignalPipe(std::initializer_list<int> caught);
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // The end to watch for reading (non-blocking).
    int ReadDescriptor() const;
    // The first signal caught and not yet taken, without waiting; 0 when none.
    int Take();

    // "SIGTERM", "SIGINT", "SIGHUP".
    static std::string Name(int signal);

  private:
    std::vector<int> signals_;
};
