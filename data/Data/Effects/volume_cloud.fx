// The volume cloud: soft puffs of the cloud picture, tinted by their vertex colour, blended
// without writing depth. The sky loads it with the cloud picture; nothing draws clouds yet.

texture tex0;

technique VolumeCloud
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
