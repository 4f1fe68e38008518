' Every BasicScript statement form, with what each line prints.
Imports "units/helpers.bas"
Dim total As Integer = 0, ratio As Decimal = 0.5
Dim list[4]

Sub Add(ByRef acc As Integer, n As Integer = 1)
  acc = acc + n
End Sub

Function Twice(n As Integer) As Integer
  Return n * 2
End Function

Function Label(n)
  If n < 0 Then Return "negative"
  Return "n=" & n
End Function

Sub Early
  ShowMessage("before exit")
  Exit Sub
  ShowMessage("never")
End Sub

ShowMessage("start")                  ' => start
ShowMessage(Helper(1))                ' => 101
For i = 1 To 3
  ShowMessage(i)                      ' => 1 ' => 2 ' => 3
Next
For i = 10 To 1 Step -4
  ShowMessage(i)                      ' => 10 ' => 6 ' => 2
Next i
Add(total, 7)
Add(total)
ShowMessage(total)                    ' => 8
ShowMessage(Twice(21))                ' => 42
ShowMessage(Label(-1) & " " & Label(4))  ' => negative n=4
Early()                               ' => before exit
If total > 5 Then ShowMessage("big") : ShowMessage("still then")  ' => big ' => still then
If total > 50 Then ShowMessage("never") : ShowMessage("never")
If total = 1 Then
  ShowMessage("one")
ElseIf total = 8 Then
  ShowMessage("eight")                ' => eight
Else
  ShowMessage("other")
End If
If total <> 8 Then
  ShowMessage("not eight")
Else
  ShowMessage("else branch")          ' => else branch
End If
Select Case total
Case 1, 2:
  ShowMessage("small")
Case 7 .. 9:
  ShowMessage("seven to nine")        ' => seven to nine
Case Else:
  ShowMessage("other")
End Select
Select Case "x"
Case "a":
  ShowMessage("a")
Case Else:
  ShowMessage("case else")            ' => case else
End Select
n = 0
Do
  n += 1
Loop Until n >= 3
ShowMessage(n)                        ' => 3
Do
  n -= 1
Loop While n > 0
ShowMessage(n)                        ' => 0
While n < 5
  n = n + 2
Wend
ShowMessage(n)                        ' => 6
While True
  n = n - 1
  If n Mod 2 = 0 Then Continue
  If n < 3 Then Break
Wend
ShowMessage(n)                        ' => 1
list[0] = 4 : list[3] = list[0] * 2
ShowMessage(list[3])                  ' => 8
Set s = "set " & "value"
ShowMessage(s)                        ' => set value
ShowMessage(1 & 2 & True)             ' => 12True
If total > 5 And total < 10 Or total = 0 Then ShowMessage("between")  ' => between
ShowMessage(6 And 3)                  ' => 2
ShowMessage(7 \ 2)                    ' => 3
ShowMessage(7 Mod 3)                  ' => 1
ShowMessage(True And Not False)       ' => True
ShowMessage(False Or True Xor True)   ' => False
ShowMessage(6 Xor 3)                  ' => 5
ShowMessage(3 - -2)                   ' => 5
ShowMessage(ratio * 4)                ' => 2
ShowMessage(0x1F)                     ' => 31
ShowMessage("say ""hi""")             ' => say "hi"
ShowMessage(1 + _
  2)                                  ' => 3
REM a comment in capitals
ShowMessage(3 In [1, 3 .. 5])         ' => True
Try
  ShowMessage(10 \ (n - 1))
Catch
  ShowMessage("caught " & ExceptionClassName)  ' => caught EDivByZero
End Try
Try
  ShowMessage("body")                 ' => body
Finally
  ShowMessage("finally")              ' => finally
End Try
Exit
ShowMessage("after exit")
