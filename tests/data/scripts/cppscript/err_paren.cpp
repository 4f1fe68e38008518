// The condition of an if stands in parentheses. // error: 3:13: ')' expected
{
  if (1 > 0 ShowMessage("x");
}
