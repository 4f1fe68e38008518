' An End If without its If is no statement.  ' error: 3:1: Statement expected
ShowMessage(1)
End If
