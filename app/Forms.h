// The program's forms (wizard/ProgramForms.h) for the lifetime of a scope, and
// their closing when the session ends.
#pragma once

#include "wizard/ProgramForms.h"

// The forms for the lifetime of a scope.
class TFormsScope {
  public:
    TFormsScope() { CreateForms(); }
    ~TFormsScope() { DestroyForms(); }
    TFormsScope(const TFormsScope&) = delete;
    TFormsScope& operator=(const TFormsScope&) = delete;
};

// The session ends (SIGTERM, SIGHUP): the wizard closes as the exit question's
// Exit closes it, from whatever window is open: an open question is answered
// Exit, the copying is cancelled and its question answered Exit, any other
// modal window is closed; then the wizard itself, again until it is gone.
void CloseForTheSession();
