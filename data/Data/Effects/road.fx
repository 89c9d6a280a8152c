// The road and the scenery that should look lit even where the fixed lights do not reach: a
// vertex shader of our own lights each vertex from a fixed sun and passes the texture
// coordinates on; the pixel shader tints the texture with that light. Devices without shaders
// take the fixed-function technique after it.

float4x4 WorldViewProjection : WORLDVIEWPROJECTION;
float4x4 World : WORLD;

texture tex0;

// Points from the sun toward the ground.
float4 SunDirection = {0.35, 0.25, -0.9, 0.0};
float4 SunColour = {1.0, 0.97, 0.9, 1.0};
float4 SkyColour = {0.42, 0.45, 0.5, 1.0};

sampler2D Surface = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

struct Lit
{
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
    float4 light : COLOR0;
};

Lit LightVertex(float4 position : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0)
{
    Lit o;
    o.position = mul(position, WorldViewProjection);
    float3 n = normalize(mul(float4(normal, 0.0), World).xyz);
    float sun = saturate(dot(n, -normalize(SunDirection.xyz)));
    o.light = SkyColour + SunColour * sun;
    o.uv = uv;
    return o;
}

float4 TintPixel(float2 uv : TEXCOORD0, float4 light : COLOR0) : COLOR0
{
    float4 surface = tex2D(Surface, uv);
    return float4(surface.rgb * light.rgb, surface.a);
}

technique Shaded
{
    pass P0
    {
        VertexShader = compile vs_2_0 LightVertex();
        PixelShader = compile ps_2_0 TintPixel();
    }
}

technique FixedFunction
{
    pass P0
    {
        Lighting = true;
        FogEnable = true;

        Texture[0] = <tex0>;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Texture;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
