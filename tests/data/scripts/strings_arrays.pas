// Characters of strings, arrays, with and compound assignments.
var
  s: String;
  a: array[1..3] of Integer;
  m: array[2, 2] of Variant;
  i: Integer;
  v: Variant;
begin
  s := 'abc';
  ShowMessage(s[2]);                 // => b
  s[2] := 'X';
  ShowMessage(s);                    // => aXc
  for i := 1 to 3 do a[i] := i * i;
  ShowMessage(a[1] + a[2] + a[3]);   // => 14
  m[1, 1] := 'corner';
  ShowMessage(m[1, 1]);              // => corner
  v := 0;
  for i := 1 to 4 do v := v + i;
  ShowMessage(v);                    // => 10
  s := '';
  for i := 1 to 3 do s := s + 'ab';
  ShowMessage(s);                    // => ababab
  ShowMessage(s = 'ababab');         // => True
end.
