// Every statement kind, with what each line prints.
var
  i, j, n: Integer;
  f: Extended;
  s: String = 'init';
  v: Variant;
begin
  Print(s);                                   // => init
  if 1 < 2 then Print('then') else Print('else');  // => then
  if 1 > 2 then Print('then') else Print('else');  // => else
  for i := 1 to 3 do Print(i);                // => 1 // => 2 // => 3
  Print(i);                                   // => 3
  for i := 5 to 1 do Print('never');
  for i := 3 downto 2 do Print(i);            // => 3 // => 2
  n := 0;
  while n < 3 do n := n + 1;
  Print(n);                                   // => 3
  repeat n := n - 1 until True;
  Print(n);                                   // => 2
  case n of
    1: Print('one');
    2, 3..4: Print('two to four');            // => two to four
  else
    Print('other')
  end;
  case 9 of 1: Print('one') else Print('case else') end;  // => case else
  // break ends only the inner loop; continue skips the rest of a pass
  for i := 1 to 2 do
    for j := 1 to 3 do
    begin
      if j = 2 then continue;
      if j = 3 then break;
      Print(i * 10 + j);                      // => 11 // => 21
    end;
  n := 0;
  while True do
  begin
    n := n + 1;
    if n = 4 then break
  end;
  Print(n);                                   // => 4
  f := 1;
  f := f / 4;
  Print(f);                                   // => 0.25
  n := 5;
  n := 2 * n;
  Print(n);                                   // => 10
  s := 'b';
  s := 'a' + s;
  Print(s);                                   // => ab
  v := Null;
  Print(v = Null);                            // => True
  begin
    begin Print('nested') end                 // => nested
  end;
  Print(1 + 2 * 3);                           // => 7
  Print((1 + 2) * 3);                         // => 9
  Print(10 - 2 - 3);                          // => 5
  Print(not (1 = 2));                         // => True
  Print(7 / 2);                               // => 3.5
  Print('x' + 'y' = 'xy');                    // => True
  exit;
  Print('after exit')
end.
