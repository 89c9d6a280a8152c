// Interface quads as interface.fx draws them (screen-space, unlit, tex0 times the vertex colour,
// alpha-blended, no depth), smoothly filtered: layouts that ask for "smooth" pictures scaled
// with the screen.

texture tex0;

technique InterfaceSmooth
{
    pass P0
    {
        Lighting = false;
        FogEnable = false;
        ZEnable = false;
        ZWriteEnable = false;
        CullMode = None;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;

        Texture[0] = <tex0>;
        MinFilter[0] = Linear;
        MagFilter[0] = Linear;
        MipFilter[0] = None;
        AddressU[0] = Clamp;
        AddressV[0] = Clamp;
        TexCoordIndex[0] = 0;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = Modulate;
        AlphaArg1[0] = Texture;
        AlphaArg2[0] = Diffuse;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
