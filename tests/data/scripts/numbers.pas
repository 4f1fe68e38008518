// Integers of both sizes, floating-point values and their operators: integers convert to a
// floating-point parameter, Inc and Dec keep the width of what they change, a minus after an
// operator negates its operand.
var
  i: Int64;
  n: Integer;
  e: Extended;
  v: Variant;

procedure Twice(var x: Int64);
begin
  Inc(x, x)
end;

begin
  ShowMessage(FormatFloat('#,##0', 1234567890123));  // => 1,234,567,890,123
  ShowMessage(FloatToStr(3000000000));               // => 3000000000
  ShowMessage(Sqrt(4));                              // => 2
  e := 3000000000;
  ShowMessage(e / 4);                                // => 750000000
  ShowMessage(1.5 + 3000000000);                     // => 3000000001.5
  i := 5000000000;
  Inc(i);
  ShowMessage(i);                                    // => 5000000001
  Dec(i, 3000000000);
  ShowMessage(i);                                    // => 2000000001
  i := 2147483647;
  Inc(i);
  ShowMessage(i);                                    // => 2147483648
  i := -2147483648;
  Dec(i);
  ShowMessage(i);                                    // => -2147483649
  Twice(i);
  ShowMessage(i);                                    // => -4294967298
  n := 2147483647;
  Inc(n);
  ShowMessage(n);                                    // => -2147483648
  n := 10;
  Dec(n, 4);
  ShowMessage(n);                                    // => 6
  v := 2.5;
  Inc(v);
  ShowMessage(v);                                    // => 3.5
  v := 7;
  Dec(v, 2);
  ShowMessage(v);                                    // => 5
  ShowMessage(3 - -2);                               // => 5
  ShowMessage(n * -1);                               // => -6
  ShowMessage(7 mod -2);                             // => 1
  ShowMessage(2 * -n + 1);                           // => -11
  ShowMessage(- -n);                                 // => 6
  ShowMessage(-n * 2 - -1);                          // => -11
  ShowMessage(not (n > -1));                         // => False
  ShowMessage(1 in []);                              // => False
  ShowMessage(3 in [1, 3..4]);                       // => True
  ShowMessage(10 div -3)                             // => -3
end.
