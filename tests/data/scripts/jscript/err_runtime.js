// A run-time error stops the program where it happens.
var z = 0;
ShowMessage("before");  // => before
ShowMessage(1 div z);   // raises: EDivByZero: Division by zero
ShowMessage("after");
