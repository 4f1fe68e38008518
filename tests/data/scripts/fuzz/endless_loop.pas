// A loop without end whose body raises and catches: stopped by the step budget.
var i: Integer;
begin
  while True do
    try
      i := 1 div 0
    except
      ShowMessage(ExceptionMessage)
    end
end.
