// Routines: by-value and by-reference parameters, defaults, nested routines, recursion, exit.
var
  a, b: Integer;
  s: String;

function Fact(n: Integer): Integer;
begin
  if n <= 1 then Result := 1 else Result := n * Fact(n - 1)
end;

procedure Swap(var x, y: Integer);
var t: Integer;
begin
  t := x; x := y; y := t
end;

procedure Bump(x: Integer);
begin
  x := x + 100
end;

function Greet(name: String; greeting: String = 'Hello'): String;
begin
  Result := greeting + ', ' + name
end;

function Outer(n: Integer): Integer;
  function Twice(k: Integer): Integer;
  begin
    Result := k * 2
  end;
begin
  Result := Twice(n) + 1
end;

function Sign(n: Integer): Integer;
begin
  Result := 0;
  if n < 0 then begin Result := -1; exit end;
  if n > 0 then Result := 1
end;

// Each level keeps its own locals while deeper levels run.
function Depth(n: Integer): String;
var mine: String;
begin
  mine := IntToStr(n);
  if n > 0 then Result := Depth(n - 1) + mine else Result := mine
end;

procedure Accumulate(var total: Integer; n: Integer);
begin
  if n = 0 then exit;
  total := total + n;
  Accumulate(total, n - 1)
end;

begin
  ShowMessage(Fact(5));              // => 120
  a := 1; b := 2;
  Swap(a, b);
  ShowMessage(a * 10 + b);           // => 21
  Bump(a);
  ShowMessage(a);                    // => 2
  ShowMessage(Greet('Ann'));         // => Hello, Ann
  ShowMessage(Greet('Bob', 'Hi'));   // => Hi, Bob
  ShowMessage(Outer(4));             // => 9
  ShowMessage(Sign(-5));             // => -1
  ShowMessage(Sign(7));              // => 1
  ShowMessage(Depth(3));             // => 0123
  a := 0;
  Accumulate(a, 4);
  ShowMessage(a);                    // => 10
end.
