// The program's forms: created in their order (the wizard, the exit question,
// the backdrop, the version-1.0 prompt, the progress window) and destroyed in
// the reverse one, the progress window first, so that a copying thread that may
// still wait for it ends before anything else goes.
#pragma once

void CreateForms();
void DestroyForms();

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
