' A one-line If has no Else.  ' error: 2:30: End of line expected
If 1 > 0 Then ShowMessage(1) Else ShowMessage(2)
