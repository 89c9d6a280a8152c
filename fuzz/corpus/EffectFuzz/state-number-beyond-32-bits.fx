technique T {
 pass {
  StencilRef = 4294967296;
 } }
