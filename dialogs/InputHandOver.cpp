#include "dialogs/InputHandOver.h"

QString InputTitle;
QString InputPath;
bool InputOK = false;
