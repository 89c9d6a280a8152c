// The racers' ground shadow (the renderer's shadow material, render key 16): an unlit dark
// tint laid over the ground with alpha blending, without writing depth so that it never hides
// what is drawn after it.

technique Shadow
{
    pass P0
    {
        Lighting = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZWriteEnable = false;
        TextureFactor = 0x8C000000;

        Texture[0] = NULL;
        ColorOp[0] = SelectArg1;
        ColorArg1[0] = TFactor;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = TFactor;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
