// The = of a compound assignment follows its operator directly. // error: 4:5: ';' expected
{
  int a = 0;
  a + = 1;
}
