// A do loop ends with while and its condition. // error: 3:1: 'WHILE' expected
do ShowMessage(1);
ShowMessage(2);
