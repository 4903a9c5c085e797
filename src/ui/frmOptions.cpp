#include "ui/frmOptions.h"

// The window itself comes with the forms runtime; until then there is nothing to show.
void ShowOptionsWindow() {}
