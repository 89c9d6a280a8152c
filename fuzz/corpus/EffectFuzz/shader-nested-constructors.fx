float4 PS() : COLOR0 { return float4(float4(float4(float4(float4(0.5,0,0,1),0,0,1),0,0,1),0,0,1),0,0,1); }
technique T { pass { PixelShader = compile ps_2_0 PS(); } }
