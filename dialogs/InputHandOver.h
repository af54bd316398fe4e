#pragma once

#include <QString>

// What the options dialog hands to the output folder entry dialog and gets
// back from it: the row's title and folder, and whether the entry ended with
// OK. InputOK keeps its value between uses; only OK and Cancel set it.
extern QString InputTitle;
extern QString InputPath;
extern bool InputOK;
