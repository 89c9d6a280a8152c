float4x4 m;
float4 PS(float1 x : TEXCOORD0) : COLOR0 { return mul(x, m); }
technique T { pass { PixelShader = compile ps_2_0 PS(); } }
