' A For ends with Next.  ' error: 4:1: 'NEXT' expected
For i = 1 To 3
  ShowMessage(i)
