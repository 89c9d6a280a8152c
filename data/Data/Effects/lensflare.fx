// Lens-flare pictures: the flare texture (tex0) times the screen mask window.tga (tex1, read
// through the second texture coordinates, the vertex's place on the screen) times the vertex
// colour and alpha, added to the frame so overlapping flares brighten it.

texture tex0;
texture tex1;

technique LensFlare
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
        DestBlend = One;

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

        Texture[1] = <tex1>;
        MinFilter[1] = Linear;
        MagFilter[1] = Linear;
        MipFilter[1] = None;
        AddressU[1] = Clamp;
        AddressV[1] = Clamp;
        TexCoordIndex[1] = 1;
        ColorOp[1] = Modulate;
        ColorArg1[1] = Texture;
        ColorArg2[1] = Current;
        AlphaOp[1] = Modulate;
        AlphaArg1[1] = Texture;
        AlphaArg2[1] = Current;
        ColorOp[2] = Disable;
        AlphaOp[2] = Disable;
    }
}
