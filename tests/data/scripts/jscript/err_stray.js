// A closing brace without its block is no statement. // error: 3:1: Statement expected
ShowMessage(1);
}
