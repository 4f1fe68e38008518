// try/except, try/finally and errors leaving the program. A routine's output is noted where
// it is called.
var
  i, z: Integer;
  s: String;
  v: Variant;

procedure Quiet;
begin
  try
    RaiseException('caught inside')
  except
  end
end;

procedure Guarded;
begin
  try
    Print('body');
    exit;
    Print('not reached')
  finally
    Print('finally')
  end;
  Print('after try')
end;

begin
  try
    i := 1 div z
  except
    Print(ExceptionClassName); // => EDivByZero
  end;
  try
    RaiseException('custom')
  except
    Print(ExceptionClassName + ': ' + ExceptionMessage); // => Exception: custom
  end;
  Guarded;                     // => body // => finally
  try
    try
      v := 'abc';
      i := v + 1
    finally
      Print('cleanup')         // => cleanup
    end
  except
    Print(ExceptionClassName)  // => EVariantTypeCastError
  end;
  Print('end');                // => end
  Quiet;
  RaiseException('leaves')     // raises: Exception: leaves
end.
