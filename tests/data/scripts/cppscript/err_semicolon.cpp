// A statement ends with a semicolon. // error: 4:3: ';' expected
{
  int x = 1
  x = 2;
}
