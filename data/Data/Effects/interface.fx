// Interface quads and bitmap-font glyphs: screen-space pictures drawn unlit over the frame,
// tex0 times the vertex colour with alpha blending, never tested against or written to depth.
// Point filtering keeps glyph and window edges sharp at their authored size.

texture tex0;

technique Interface
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
        MinFilter[0] = Point;
        MagFilter[0] = Point;
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
