' Statements on one line are separated by colons.  ' error: 2:7: End of line expected
x = 1 y = 2
