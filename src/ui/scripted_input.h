// Whether a script rather than a person feeds the program: its standard input
// is a pipe or a file. Such runs get the console front-end.
#pragma once

bool StandardInputIsScripted();
