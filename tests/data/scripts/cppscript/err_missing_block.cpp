// The main block in braces is missing after the declarations. // error: 3:1: '{' expected
int x;
