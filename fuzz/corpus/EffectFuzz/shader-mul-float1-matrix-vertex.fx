float4x4 m;
float4 VS(float1 x : POSITION) : POSITION { return mul(x, m); }
float4 PS() : COLOR0 { return 1; }
technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
