// The options window, "Manage Runwarden".
#pragma once

// Shows the window modeless.
void ShowOptionsWindow();
