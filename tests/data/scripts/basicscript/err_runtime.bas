' A run-time error stops the program where it happens.
Dim z As Integer
ShowMessage("before")  ' => before
ShowMessage(1 \ z)  ' raises: EDivByZero: Division by zero
ShowMessage("after")
