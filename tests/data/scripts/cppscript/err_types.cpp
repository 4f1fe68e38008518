// A string is no integer. // error: 4:3: Incompatible types: 'Integer', 'String'
{
  int i = 0;
  i = "x";
}
