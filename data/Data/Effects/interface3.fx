// The mini map: the map picture (tex1) seen through a soft round window (tex0's alpha), with a
// rim (tex2) added over it; unlit screen-space quads blended over the frame.

texture tex0;
texture tex1;
texture tex2;

technique MiniMap
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
        TexCoordIndex[0] = 0;
        AddressU[0] = Clamp;
        AddressV[0] = Clamp;
        ColorOp[0] = SelectArg1;
        ColorArg1[0] = Diffuse;
        AlphaOp[0] = Modulate;
        AlphaArg1[0] = Texture;
        AlphaArg2[0] = Diffuse;

        Texture[1] = <tex1>;
        TexCoordIndex[1] = 1;
        AddressU[1] = Clamp;
        AddressV[1] = Clamp;
        ColorOp[1] = Modulate;
        ColorArg1[1] = Texture;
        ColorArg2[1] = Current;
        AlphaOp[1] = Modulate;
        AlphaArg1[1] = Texture;
        AlphaArg2[1] = Current;

        Texture[2] = <tex2>;
        TexCoordIndex[2] = 0;
        AddressU[2] = Clamp;
        AddressV[2] = Clamp;
        ColorOp[2] = Add;
        ColorArg1[2] = Texture;
        ColorArg2[2] = Current;
        AlphaOp[2] = SelectArg1;
        AlphaArg1[2] = Current;

        ColorOp[3] = Disable;
        AlphaOp[3] = Disable;
    }
}
