#include "app/InputHandOver.h"

QString InputTitle;
QString InputPath;
bool InputOK = false;
