' A For takes its body from the next line.  ' error: 2:16: End of line expected
For i = 1 To 3 : ShowMessage(i) : Next
