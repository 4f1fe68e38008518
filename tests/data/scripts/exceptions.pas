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
    ShowMessage('body');
    exit;
    ShowMessage('not reached')
  finally
    ShowMessage('finally')
  end;
  ShowMessage('after try')
end;

begin
  try
    i := 1 div z
  except
    ShowMessage(ExceptionClassName); // => EDivByZero
  end;
  try
    RaiseException('custom')
  except
    ShowMessage(ExceptionClassName + ': ' + ExceptionMessage); // => Exception: custom
  end;
  Guarded;                     // => body // => finally
  try
    try
      v := 'abc';
      i := v + 1
    finally
      ShowMessage('cleanup')         // => cleanup
    end
  except
    ShowMessage(ExceptionClassName)  // => EVariantTypeCastError
  end;
  ShowMessage('end');                // => end
  Quiet;
  RaiseException('leaves')     // raises: Exception: leaves
end.
