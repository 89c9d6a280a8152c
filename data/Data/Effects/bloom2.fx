// The bloom's second pass: the bright pass of bloom.fx (tex0, 512 x 384) blurred along y,
// drawn back into the first target, which the renderer then adds over the frame.

texture tex0;

// How strongly the glow shows.
float Strength = 2.0;

sampler2D Source = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

float4 BlurY(float2 uv : TEXCOORD0) : COLOR0
{
    // Nine taps four texels apart with Gaussian weights, as the first pass along x.
    float2 step = float2(0.0, 4.0 / 384.0);
    float3 sum = tex2D(Source, uv).rgb * 0.1995;
    sum += (tex2D(Source, uv + step).rgb + tex2D(Source, uv - step).rgb) * 0.1760;
    sum += (tex2D(Source, uv + step * 2.0).rgb + tex2D(Source, uv - step * 2.0).rgb) * 0.1210;
    sum += (tex2D(Source, uv + step * 3.0).rgb + tex2D(Source, uv - step * 3.0).rgb) * 0.0648;
    sum += (tex2D(Source, uv + step * 4.0).rgb + tex2D(Source, uv - step * 4.0).rgb) * 0.0270;
    return float4(sum * Strength, 1.0);
}

technique BlurY
{
    pass P0
    {
        ZEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = false;
        CullMode = None;
        PixelShader = compile ps_2_0 BlurY();
    }
}
