// The parts of a for are separated by semicolons. // error: 2:12: ';' expected
for (i = 0 i < 3; i++) ShowMessage(i);
