// Placeholder until the new key-binding dialog lands.
#include "ui/newkeydialog.h"
