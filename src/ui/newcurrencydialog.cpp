// Placeholder until the new currency dialog lands.
#include "ui/newcurrencydialog.h"
