// Names are declared before use. // error: 3:3: Undeclared identifier: 'y'
{
  y = 1;
}
