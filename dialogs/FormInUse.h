// The program creates its forms at start (app/Forms); a window used on its own
// (a test, a benchmark) may find one of them missing. FormInUse is then a form
// made for this one use and destroyed with it.
#pragma once

#include <memory>

template <typename Form>
class FormInUse {
  public:
    explicit FormInUse(Form* programs) : form_(programs) {
        if (form_ == nullptr) {
            own_ = std::make_unique<Form>();
            form_ = own_.get();
        }
    }
    Form& operator*() const { return *form_; }
    Form* operator->() const { return form_; }

  private:
    std::unique_ptr<Form> own_;
    Form* form_;
};
