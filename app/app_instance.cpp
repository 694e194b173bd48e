#include "app/update_app.h"

// The one application object; the framework's entry runs its InitInstance.
CUpdateApp theApp;
