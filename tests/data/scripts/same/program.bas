' The same small program in each of the four languages: a function, a procedure with a
' by-reference parameter, a loop, a condition, a case and a string built up.
Dim i As Integer, total As Integer
Dim s As String

Function Square(n As Integer) As Integer
  Return n * n
End Function

Sub AddTo(ByRef acc As Integer, n As Integer)
  acc = acc + n
End Sub

total = 0
s = ""
For i = 1 To 5
  AddTo(total, Square(i))
  If i Mod 2 = 0 Then
    s = s & "e"
  Else
    s = s & "o"
  End If
Next
ShowMessage(total)                 ' => 55
ShowMessage(s)                     ' => oeoeo
Select Case total
Case 55:
  ShowMessage("fifty-five")        ' => fifty-five
Case Else:
  ShowMessage("other")
End Select
ShowMessage(-total \ 4 + 0.5)      ' => -12.5
ShowMessage(FormatFloat("0.00", total / 8))  ' => 6.88
