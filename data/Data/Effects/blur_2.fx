// The speed blur: the frame's copy (tex0) smeared along the lines through the blur centre
// (fx, fy, a position on the screen from 0 to 1), drawn into a target of the frame's size
// that the renderer lays over the frame with its alpha. The alpha is the mask's (tex1: clear
// in the middle, opaque at the edges) times SpeedRatio, so at rest (ratio 0) the frame stays
// as it was, and the centre of the screen stays sharp at any speed. Forward 1 smears toward
// the centre, as when driving into the picture; 0 away from it.

texture tex0;
texture tex1;

float SpeedRatio = 0.0;
int Forward = 1;
float fx = 0.5;
float fy = 0.5;

sampler2D Frame = sampler_state
{
    Texture = <tex0>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

sampler2D Mask = sampler_state
{
    Texture = <tex1>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Clamp;
    AddressV = Clamp;
};

float4 RadialBlur(float2 uv : TEXCOORD0) : COLOR0
{
    float ratio = saturate(SpeedRatio);
    float direction = Forward > 0 ? -1.0 : 1.0;
    // The smear grows with the distance from the centre and with the speed.
    float2 step = (uv - float2(fx, fy)) * (0.02 * ratio * direction);
    float3 sum = tex2D(Frame, uv).rgb;
    sum += tex2D(Frame, uv + step).rgb;
    sum += tex2D(Frame, uv + step * 2.0).rgb;
    sum += tex2D(Frame, uv + step * 3.0).rgb;
    sum += tex2D(Frame, uv + step * 4.0).rgb;
    sum += tex2D(Frame, uv + step * 5.0).rgb;
    sum += tex2D(Frame, uv + step * 6.0).rgb;
    sum += tex2D(Frame, uv + step * 7.0).rgb;
    return float4(sum / 8.0, tex2D(Mask, uv).a * ratio);
}

technique Radial
{
    pass P0
    {
        ZEnable = false;
        ZWriteEnable = false;
        AlphaBlendEnable = false;
        CullMode = None;
        PixelShader = compile ps_2_0 RadialBlur();
    }
}
