// The language is case-sensitive: If is a name, not the keyword. // error: 3:14: ';' expected
{
  If (1 > 0) ShowMessage("x");
}
