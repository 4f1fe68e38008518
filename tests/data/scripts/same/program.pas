// The same small program in each of the four languages: a function, a procedure with a
// by-reference parameter, a loop, a condition, a case and a string built up.
var
  i, total: Integer;
  s: String;

function Square(n: Integer): Integer;
begin
  Result := n * n
end;

procedure AddTo(var acc: Integer; n: Integer);
begin
  acc := acc + n
end;

begin
  total := 0;
  s := '';
  for i := 1 to 5 do
  begin
    AddTo(total, Square(i));
    if i mod 2 = 0 then s := s + 'e' else s := s + 'o'
  end;
  ShowMessage(total);                // => 55
  ShowMessage(s);                    // => oeoeo
  case total of
    55: ShowMessage('fifty-five');   // => fifty-five
  else
    ShowMessage('other')
  end;
  ShowMessage(-total div 4 + 0.5);   // => -12.5
  ShowMessage(FormatFloat('0.00', total / 8))  // => 6.88
end.
