// The bloom's first pass: the bright parts of the shrunk frame (tex0, 512 x 384), blurred
// along x, drawn into the second target of that size. bloom2.fx blurs the result along y, and
// the renderer adds it over the frame (SRCCOLOR, ONE), so only what is bright glows. The target
// holds values up to 1: the glow's strength is applied after the second blur, so that it
// spreads as far across as along.

texture tex0;

// Brightness below which nothing glows.
float Threshold = 0.6;

sampler2D Source = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

float3 Bright(float2 uv)
{
    float3 colour = tex2D(Source, uv).rgb;
    return saturate((colour - Threshold) / (1.0 - Threshold));
}

float4 BrightPass(float2 uv : TEXCOORD0) : COLOR0
{
    // Nine taps four texels apart with Gaussian weights: a wide, soft glow.
    float2 step = float2(4.0 / 512.0, 0.0);
    float3 sum = Bright(uv) * 0.1995;
    sum += (Bright(uv + step) + Bright(uv - step)) * 0.1760;
    sum += (Bright(uv + step * 2.0) + Bright(uv - step * 2.0)) * 0.1210;
    sum += (Bright(uv + step * 3.0) + Bright(uv - step * 3.0)) * 0.0648;
    sum += (Bright(uv + step * 4.0) + Bright(uv - step * 4.0)) * 0.0270;
    return float4(sum, 1.0);
}

technique BrightBlurX
{
    pass P0
    {
        ZEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = false;
        CullMode = None;
        PixelShader = compile ps_2_0 BrightPass();
    }
}
