// A string doubled without end: stopped by the host's string limit.
var s: String;
begin
  s := 'ab';
  while True do s := s + s
end.
