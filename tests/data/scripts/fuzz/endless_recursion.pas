// Recursion without end: stopped by the call depth limit and the stack guard.
function Down(n: Integer): Integer;
begin
  Result := Down(n + 1) + 1
end;
begin
  ShowMessage(Down(0))
end.
