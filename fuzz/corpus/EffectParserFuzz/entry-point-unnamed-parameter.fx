float4x4 WorldViewProj : WORLDVIEWPROJECTION;
float4 VS(float4 p : POSITION) : POSITION { return mul(p, WorldViewProj); }
float4 PS(float2 : TEXCOORD0) : COLOR0 { return 1; }
technique T { pass P { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
