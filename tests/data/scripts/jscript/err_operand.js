// An operator needs its right operand. // error: 2:12: Expression expected
var x = 1 +;
