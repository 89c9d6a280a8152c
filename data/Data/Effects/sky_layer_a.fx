// A sky layer blended over the sky: the picture's colour, its alpha times the layer's alpha
// (the vertex colour carries only the alpha the weather fades), unlit and unfogged.

texture tex0;

technique SkyLayerBlend
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
        DestBlend = InvSrcAlpha;

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
