' A condition is followed by Then.  ' error: 2:10: 'THEN' expected
If 1 > 0 ShowMessage(1)
