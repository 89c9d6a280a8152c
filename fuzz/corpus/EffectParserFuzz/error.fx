// Drawn in place of an effect that could not be built. Fixed-function only, so that it builds
// on every device: unlit, untextured, in a colour no real material uses.

technique Error
{
    pass P0
    {
        Lighting = false;
        FogEnable = false;
        TextureFactor = 0xFFFF00FF;

        Texture[0] = NULL;
        ColorOp[0] = SelectArg1;
        ColorArg1[0] = TFactor;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = TFactor;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
