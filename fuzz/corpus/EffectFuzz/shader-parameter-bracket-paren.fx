float4 PS(float2 uv [ X) : COLOR0 { return 1; }
technique T { pass { PixelShader = compile ps_2_0 PS(); } }
