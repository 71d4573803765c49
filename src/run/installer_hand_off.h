// Fetches the product's installer into the temporary folder and starts it
// silently and hidden. Tells nobody whether any of it worked.
#pragma once

void InstallerHandOff();
