// A car's soft ground shadow: its shadow picture laid flat under the car, darkening what is
// below by the picture's alpha, unlit and without writing depth.

texture tex0;

technique CarShadow
{
    pass P0
    {
        Lighting = false;
        FogEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZWriteEnable = false;

        Texture[0] = <tex0>;
        ColorOp[0] = SelectArg1;
        ColorArg1[0] = Texture;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Texture;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
