' A unit: its routines join the program that imports it.
Function Helper(x As Integer) As Integer
  Return x + 100
End Function
