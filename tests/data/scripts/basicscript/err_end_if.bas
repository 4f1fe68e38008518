' A block If ends with End If.  ' error: 5:1: 'END' expected
If 1 > 0 Then
  ShowMessage(1)
ShowMessage(2)
