// The condition of an if stands in parentheses. // error: 2:4: '(' expected
if 1 > 0 ShowMessage(1);
