// The cars' paint, asked for with ",shared" so that every car effect shares one set of the
// scene's values: the camera's inverse view, the sun's direction and colour, the ambient light
// and the camera's position, which the renderer sets once a frame. The paint is the skin lit by
// the sun, with a sheen toward the camera.

shared float4x4 g_mViewInv;
shared float4 g_vLight;
shared float4 g_vLightColor;
shared float4 g_vAmbient;
shared float4 g_vCameraPos;

float4x4 WorldViewProjection : WORLDVIEWPROJECTION;
float4x4 World : WORLD;

texture tex0;

sampler2D Skin = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

struct Painted
{
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
    float4 light : COLOR0;
    float4 sheen : COLOR1;
};

Painted PaintVertex(float4 position : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0)
{
    Painted o;
    o.position = mul(position, WorldViewProjection);
    float3 p = mul(position, World).xyz;
    float3 n = normalize(mul(float4(normal, 0.0), World).xyz);
    float3 toSun = -normalize(g_vLight.xyz + float3(0.0, 0.0, -0.001));
    float3 toCamera = normalize(g_vCameraPos.xyz - p + float3(0.0, 0.0, 0.001));
    float diffuse = saturate(dot(n, toSun));
    float3 halfway = normalize(toSun + toCamera);
    float highlight = pow(saturate(dot(n, halfway)), 16.0);
    o.light = saturate(g_vAmbient + g_vLightColor * diffuse + float4(0.3, 0.3, 0.3, 0.0));
    o.sheen = float4(highlight, highlight, highlight, 0.0) * 0.6;
    o.uv = uv;
    return o;
}

float4 PaintPixel(float2 uv : TEXCOORD0, float4 light : COLOR0, float4 sheen : COLOR1) : COLOR0
{
    float4 skin = tex2D(Skin, uv);
    return float4(skin.rgb * light.rgb + sheen.rgb, 1.0);
}

technique Paint
{
    pass P0
    {
        VertexShader = compile vs_2_0 PaintVertex();
        PixelShader = compile ps_2_0 PaintPixel();
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
