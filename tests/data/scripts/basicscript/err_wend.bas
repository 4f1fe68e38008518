' A While ends with Wend.  ' error: 4:1: 'WEND' expected
While False
  ShowMessage(1)
Loop
