// A glowing sky layer (the sun): the picture added to the sky, weighted by its alpha times the
// layer's alpha, unlit and unfogged.

texture tex0;

technique SkyLayerGlow
{
    pass P0
    {
        Lighting = false;
        FogEnable = false;
        CullMode = None;
        ZEnable = true;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = One;

        Texture[0] = <tex0>;
        ColorOp[0] = SelectArg1;
        ColorArg1[0] = Texture;
        AlphaOp[0] = Modulate;
        AlphaArg1[0] = Texture;
        AlphaArg2[0] = Diffuse;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
