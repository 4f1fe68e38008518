// Every statement kind, with what each line prints.
var
  i, j, n: Integer;
  f: Extended;
  s: String = 'init';
  v: Variant;
begin
  ShowMessage(s);                                   // => init
  if 1 < 2 then ShowMessage('then') else ShowMessage('else');  // => then
  if 1 > 2 then ShowMessage('then') else ShowMessage('else');  // => else
  for i := 1 to 3 do ShowMessage(i);                // => 1 // => 2 // => 3
  ShowMessage(i);                                   // => 3
  for i := 5 to 1 do ShowMessage('never');
  for i := 3 downto 2 do ShowMessage(i);            // => 3 // => 2
  n := 0;
  while n < 3 do n := n + 1;
  ShowMessage(n);                                   // => 3
  repeat n := n - 1 until True;
  ShowMessage(n);                                   // => 2
  case n of
    1: ShowMessage('one');
    2, 3..4: ShowMessage('two to four');            // => two to four
  else
    ShowMessage('other')
  end;
  case 9 of 1: ShowMessage('one') else ShowMessage('case else') end;  // => case else
  // break ends only the inner loop; continue skips the rest of a pass
  for i := 1 to 2 do
    for j := 1 to 3 do
    begin
      if j = 2 then continue;
      if j = 3 then break;
      ShowMessage(i * 10 + j);                      // => 11 // => 21
    end;
  n := 0;
  while True do
  begin
    n := n + 1;
    if n = 4 then break
  end;
  ShowMessage(n);                                   // => 4
  f := 1;
  f := f / 4;
  ShowMessage(f);                                   // => 0.25
  n := 5;
  n := 2 * n;
  ShowMessage(n);                                   // => 10
  s := 'b';
  s := 'a' + s;
  ShowMessage(s);                                   // => ab
  v := Null;
  ShowMessage(v = Null);                            // => True
  begin
    begin ShowMessage('nested') end                 // => nested
  end;
  ShowMessage(1 + 2 * 3);                           // => 7
  ShowMessage((1 + 2) * 3);                         // => 9
  ShowMessage(10 - 2 - 3);                          // => 5
  ShowMessage(not (1 = 2));                         // => True
  ShowMessage(7 / 2);                               // => 3.5
  ShowMessage('x' + 'y' = 'xy');                    // => True
  exit;
  ShowMessage('after exit')
end.
