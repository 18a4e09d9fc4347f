// Placeholder: the main window comes with the foundation work.
#include "app/dodivez.h"
