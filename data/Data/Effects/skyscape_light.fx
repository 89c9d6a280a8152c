// The sky's light effect: the sphere lit by the sun instead of its gradient. The sky loads it
// with the sphere but draws with the gradient effect.

texture tex0;

technique SkyscapeLight
{
    pass P0
    {
        Lighting = true;
        FogEnable = false;
        CullMode = None;
        ZEnable = true;
        AlphaBlendEnable = false;

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
