' A string is no integer.  ' error: 3:1: Incompatible types: 'Integer', 'String'
Dim i As Integer
i = "x"
