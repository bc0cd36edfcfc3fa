#include "desktop/pickers.h"

// Stand-in until the dialogs arrive: behaves as a cancelled dialog.
wstring ask_path(bool /*folder*/) { return wstring(); }
