// The program's forms: created in their order (the wizard, the exit question,
// the backdrop, the version-1.0 prompt, the progress window) and destroyed in
// the reverse one, the progress window first, so that a copying thread that may
// still wait for it ends before anything else goes.
#pragma once

void CreateForms();
void DestroyForms();
